#Formatver	3
#Hclass	dcspeed1
#DParam 
	ref`amp	100
	ref`tstart	0.1
	ctl`kp	0.2
	ctl`ti	0.4
	ra`r	1
	b`r	0.0001
	la`i	0.01
	jm`i	0.001
	km`r	0.05
#DIncond
	ctl`xi	0
	ja`p[3].e_indep_state	0
	jc`p[2].e_indep_state	0
